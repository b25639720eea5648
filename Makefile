# The two commands of the README: `make run` and `make test`.
BUILD      ?= build
BUILD_TSAN ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build run test test-tsan bench clean install

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then \
	  cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
	    "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG" $(CMAKE_ARGS); fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./scripts/run-player.sh $(BUILD)/OrvellaPlayer/OrvellaPlayer

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 300

# Installs under PREFIX (default /usr/local): lib/orvella-player/, bin/, share/.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix "$(PREFIX)"

# ThreadSanitizer build of the threaded tests (label "threads").
test-tsan: deps
	@if [ ! -f $(BUILD_TSAN)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVELLA_TSAN=ON -DORVELLA_BENCH=OFF; fi
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/scripts/tsan.supp" \
	  ctest --test-dir $(BUILD_TSAN) --output-on-failure -j $(JOBS) -L threads

bench: build
	./scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_TSAN)
