# make demo: install what is missing, build, and read the bundled sample.
# make test: install what is missing, build, and run every test, plain and
#            under AddressSanitizer + UndefinedBehaviorSanitizer.

BUILD      ?= build
ASAN_BUILD ?= build-asan
SAMPLE     := samples/northwind-sql2000.mdf
JOBS       ?= $(shell nproc)

.PHONY: deps build demo test test-plain test-asan clean

deps:
	@./tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./$(BUILD)/ravelin info $(SAMPLE)

test-plain: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRAVELIN_SANITIZE=ON -DRAVELIN_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

test: test-plain test-asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
