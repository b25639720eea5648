# The two commands of the README: `make run` and `make test`.
BUILD      ?= build
BUILD_TSAN ?= build-tsan
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build run test test-tsan test-asan fuzz bench clean install

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
	  cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVELLA_TSAN=ON -DORVELLA_BENCH=OFF $(CMAKE_ARGS); fi
	cmake --build $(BUILD_TSAN) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/scripts/tsan.supp" \
	  ctest --test-dir $(BUILD_TSAN) --output-on-failure -j $(JOBS) -L threads

# AddressSanitizer, LeakSanitizer and UBSan over the test suite. ASAN_AREAS leaves areas out of
# the build (CI builds only the areas that parse outside data or share memory across threads);
# ASAN_CTEST picks tests. Suppressions name third-party libraries only.
# intercept_tls_get_addr=0: this compiler's leak checker records a bogus range for the thread-local
# block of a loaded library that keeps thread_local data (the audio library) and crashes scanning
# it at exit; without the interception that block is still reached through the thread's own table.
ASAN_AREAS ?=
ASAN_CTEST ?=
SAN_ENV = ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0:strict_string_checks=0:intercept_tls_get_addr=0" \
  LSAN_OPTIONS="suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$(CURDIR)/scripts/ubsan.supp"
test-asan: deps
	@if [ ! -f $(BUILD_ASAN)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" \
	    -DORVELLA_ASAN=ON -DORVELLA_BENCH=OFF "-DORVELLA_SKIP_AREAS=$(ASAN_AREAS)" $(CMAKE_ARGS); fi
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	$(SAN_ENV) ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS) --timeout 600 $(ASAN_CTEST)

# libFuzzer targets built with clang, the code under test instrumented for coverage, ASan and
# UBSan; each runs FUZZ_SECONDS from its seeds and dictionary, FUZZ_JOBS at a time, and a table
# of executions, edges and findings is printed (scripts/run-fuzz.sh). FUZZ_FILTER picks targets.
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= 2
FUZZ_FILTER ?= .
fuzz: deps
	@if [ ! -f $(BUILD_FUZZ)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1" \
	    -DORVELLA_FUZZ=ON -DORVELLA_BENCH=OFF $(CMAKE_ARGS); fi
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_all
	./scripts/run-fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS) $(FUZZ_JOBS) '$(FUZZ_FILTER)'

bench: build
	./scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_TSAN) $(BUILD_ASAN) $(BUILD_FUZZ)
