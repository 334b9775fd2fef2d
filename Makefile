# make run: install what is missing, build and start Orvex.
# make test: install what is missing, build and run every test offscreen.
# make install: build and install Orvex under PREFIX (~/.local unless told);
#   with CMAKE_FLAGS=-DORVEX_BUILD_TESTS=OFF without the tests and what only they need.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= $(HOME)/.local
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test install bench fuzz clean

all: build

deps:
	./scripts/deps.sh $(CMAKE_FLAGS)

# Flags given to a build folder made before are applied to it too.
configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
		cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS); \
	elif [ -n "$(CMAKE_FLAGS)" ]; then \
		cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS); \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/orvex

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

install: build
	@# Stripped: the program and its modules without their debugging information.
	cmake --install $(BUILD_DIR) --prefix $(PREFIX) --strip
	@# The desktop's caches learn of the new file type, entry and icon where their tools exist.
	@if command -v update-mime-database >/dev/null; then update-mime-database $(PREFIX)/share/mime; fi
	@if command -v update-desktop-database >/dev/null; then update-desktop-database $(PREFIX)/share/applications; fi
	@if command -v gtk-update-icon-cache >/dev/null; then gtk-update-icon-cache -q -t $(PREFIX)/share/icons/hicolor; fi

bench: configure
	cmake -S . -B $(BUILD_DIR) -DORVEX_BUILD_BENCH=ON
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orvex_benchmarks
	@home=$$(mktemp -d); runtime=$$(mktemp -d); chmod 700 "$$runtime"; failed=""; \
	for b in $$(find $(BUILD_DIR)/bench -maxdepth 1 -type f -executable -name 'bench_*' | sort); do \
		echo "== $$b"; HOME="$$home" XDG_RUNTIME_DIR="$$runtime" QT_QPA_PLATFORM=offscreen "$$b" \
			|| failed="$$failed $$(basename $$b)"; done; \
	rm -rf "$$home" "$$runtime"; \
	if [ -n "$$failed" ]; then echo "benchmarks that missed a target or failed:$$failed"; exit 1; fi

fuzz: build
	cd $(BUILD_DIR) && ASAN_OPTIONS=detect_leaks=0 ./tests/catalogue/index_db_fuzzer -max_total_time=$(FUZZ_SECONDS)
	@set -e; while IFS='|' read -r fuzzer corpus seeds; do \
		[ -n "$$fuzzer" ] || continue; echo "== $$fuzzer"; \
		ASAN_OPTIONS=detect_leaks=1 ./tests/fuzz/run-fuzzer "$$fuzzer" "$$corpus" $(FUZZ_SECONDS) $$(echo "$$seeds" | tr ',' ' '); \
	done < $(BUILD_DIR)/fuzz-targets.txt

clean:
	rm -rf $(BUILD_DIR)
