# make run: install what is missing, build and start Orvex.
# make test: install what is missing, build and run every test offscreen.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench fuzz clean

all: build

deps:
	./scripts/deps.sh

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
		cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/orvex

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

bench: configure
	cmake -S . -B $(BUILD_DIR) -DORVEX_BUILD_BENCH=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && QT_QPA_PLATFORM=offscreen "$$b"; done

fuzz: build
	cd $(BUILD_DIR) && ASAN_OPTIONS=detect_leaks=0 ./tests/catalogue/index_db_fuzzer -max_total_time=600

clean:
	rm -rf $(BUILD_DIR)
