# make demo: install what is missing, build, and read the bundled sample.
# make test: install what is missing, build, and run every test, plain and
#            under AddressSanitizer + UndefinedBehaviorSanitizer, then run
#            every fuzz target, all of them together for about a minute.
# make screenshots: pictures of the desktop program, offscreen, into
#            build/screenshots/.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SAMPLE     := samples/northwind-sql2000.mdf
JOBS       ?= $(shell nproc)
# A shared test file whose system tables hold ghost records: the screenshots
# picture its deleted rows when it is there.
DELETED_SAMPLE := ../shared/testdata/myshop-heap-sql2016-kancheng.mdf

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
	./$(BUILD)/ravelin export $(SAMPLE) --sqlite $(BUILD)/demo.db --force
	sqlite3 $(BUILD)/demo.db "SELECT 'Order Details rows in SQLite: ' || COUNT(*) FROM \"Order Details\""

test-plain: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRAVELIN_SANITIZE=ON -DRAVELIN_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

# Every fuzz target (fuzz/*_fuzzer.cpp, under AddressSanitizer +
# UndefinedBehaviorSanitizer), seeded by fuzz_seeds with synthetic pages,
# records and databases and with pieces of the sample (and of the shared
# test files when they are there), each for its share of FUZZ_SECONDS
# (tools/run-fuzzers).
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DRAVELIN_BUILD_FUZZ=ON -DRAVELIN_BUILD_TESTS=OFF -DRAVELIN_BUILD_BENCH=OFF -DRAVELIN_BUILD_SHELL=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	./tools/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(SAMPLE) $(wildcard ../shared/testdata/*.mdf)

screenshots: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target ravelin-gui-screenshots
	mkdir -p $(BUILD)/screenshots
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/ravelin-gui-screenshots $(BUILD)/screenshots $(SAMPLE) \
	  $(if $(wildcard $(DELETED_SAMPLE)),$(DELETED_SAMPLE) sys.syscolpars)

test: test-plain test-asan fuzz

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
