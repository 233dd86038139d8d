# make demo: install what is missing, build, and read the bundled sample.
# make test: install what is missing, build, and run every test, plain and
#            under AddressSanitizer + UndefinedBehaviorSanitizer, then run
#            the page, allocation map and binary XML fuzzers for a minute
#            each.
# make screenshots: pictures of the desktop program, offscreen, into
#            build/screenshots/.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SAMPLE     := samples/northwind-sql2000.mdf
JOBS       ?= $(shell nproc)

.PHONY: deps build demo test test-plain test-asan fuzz screenshots clean

deps:
	@./tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	./$(BUILD)/ravelin info $(SAMPLE)
	mkdir -p $(BUILD)/demo-logs
	./$(BUILD)/ravelin scan $(SAMPLE) --log-dir $(BUILD)/demo-logs
	./$(BUILD)/ravelin show $(SAMPLE) "Order Details" --log-dir $(BUILD)/demo-logs

test-plain: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRAVELIN_SANITIZE=ON -DRAVELIN_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

# The page fuzzer, seeded with pages of the sample (and of the shared test
# files when they are there), the allocation map fuzzer with the same seeds,
# then the binary XML fuzzer, seeded with values the test encoder writes,
# each for FUZZ_SECONDS seconds.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DRAVELIN_BUILD_FUZZ=ON -DRAVELIN_BUILD_TESTS=OFF -DRAVELIN_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target page_fuzzer allocation_map_fuzzer binary_xml_fuzzer binary_xml_seeds
	rm -rf $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/map-corpus $(FUZZ_BUILD)/xml-corpus
	./tools/make-fuzz-corpus $(FUZZ_BUILD)/corpus samples/*.mdf $(wildcard ../shared/testdata/*.mdf)
	mkdir -p $(FUZZ_BUILD)/map-corpus
	./$(FUZZ_BUILD)/page_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=8193 -timeout=10 \
	  -print_final_stats=1 $(FUZZ_BUILD)/corpus
	./$(FUZZ_BUILD)/allocation_map_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=8193 -timeout=10 \
	  -print_final_stats=1 $(FUZZ_BUILD)/map-corpus $(FUZZ_BUILD)/corpus
	./$(FUZZ_BUILD)/binary_xml_seeds $(FUZZ_BUILD)/xml-corpus
	./$(FUZZ_BUILD)/binary_xml_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	  -print_final_stats=1 $(FUZZ_BUILD)/xml-corpus

screenshots: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target ravelin-gui-screenshots
	mkdir -p $(BUILD)/screenshots
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/ravelin-gui-screenshots $(BUILD)/screenshots $(SAMPLE)

test: test-plain test-asan fuzz

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
