# The front door. All real logic lives in CMake, the code and the two small scripts.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
# Warnings are errors in these development and CI builds; `make WERROR=OFF` for another compiler.
WERROR ?= ON

# Runs a configure step without its progress lines, but shows them all when it fails.
quietly = log=$$($(1)) || { printf '%s\n' "$$log"; exit 1; }

.PHONY: all deps configure build test demo clean

all: build

deps:
	@scripts/ensure-deps.sh

configure: deps
	@python=$$(scripts/find-python.sh) && \
	$(call quietly,cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	      -DBOXWRIGHT_WERROR=$(WERROR) -DPython_EXECUTABLE="$$python" $(CMAKE_FLAGS))

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# After the normal suite, the tests once more under AddressSanitizer and UBSan (an unoptimised
# build: it compiles several times faster and the tests run in seconds either way). The Python
# suites load the sanitized module only with the runtime preloaded and the interpreter on plain
# malloc; the leak and memory-bound suites stay out there, as their memory windows would measure
# the sanitizer, and so do the suites that spend their time in LAMMPS runs of in.lmp, which no
# sanitizer watches.
ASAN_BUILD_DIR ?= build-asan

# The static checks first: the format, the Python types (pyright) and clang-tidy over src/.
test: test-deps build
	cmake --build $(BUILD_DIR) --target check_format check_types check_tidy
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan

# The checkers only the tests need: clang-tidy from Debian, the pinned pyright from npm.
test-deps:
	@scripts/ensure-deps.sh clang-tidy-16
	@scripts/ensure-pyright.sh

test-asan: deps
	@python=$$(scripts/find-python.sh) && \
	$(call quietly,cmake -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug \
	      -DBOXWRIGHT_WERROR=$(WERROR) -DBOXWRIGHT_SANITIZE=ON -DBOXWRIGHT_BENCH=OFF \
	      -DPython_EXECUTABLE="$$python")
	cmake --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && ASAN_OPTIONS=detect_stack_use_after_return=1:strict_string_checks=1 \
	    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -E '^python\.'
	cd $(ASAN_BUILD_DIR) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	    LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libubsan.so)" \
	    PYTHONMALLOC=malloc ctest --output-on-failure -j $(JOBS) -R '^python\.' \
	    -E 'test_leaks|test_memory_attacks|test_lammps_runs|test_lammps_density|test_gallery'

# Fuzzing, by hand only: each harness runs FUZZ_SECONDS on a corpus seeded from the test data and
# the examples. Findings land in fuzz/artifacts/; see fuzz/README.md.
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS ?= $(patsubst fuzz/%_fuzz.cpp,%,$(wildcard fuzz/*_fuzz.cpp))

fuzz:
	@scripts/ensure-deps.sh clang-16 libclang-rt-16-dev
	@$(call quietly,cmake -S . -B $(FUZZ_BUILD_DIR) -DCMAKE_CXX_COMPILER=clang++-16 \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBOXWRIGHT_FUZZ=ON -DBOXWRIGHT_PYTHON=OFF \
	      -DBOXWRIGHT_BENCH=OFF)
	cmake --build $(FUZZ_BUILD_DIR) --target fuzzers -j $(JOBS)
	fuzz/run.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS) $(FUZZERS)

.PHONY: test-deps test-asan fuzz

demo: build
	@python=$$(scripts/find-python.sh) && PYTHONPATH=$(BUILD_DIR)/python "$$python" scripts/demo.py

# Every build folder of this tree, pip's (build-pip/) included; fuzzing findings and corpora stay.
clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR) build-pip
