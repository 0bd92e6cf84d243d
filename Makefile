# The front door. All real logic lives in CMake, the code and the two small scripts.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo clean

all: build

deps:
	@scripts/ensure-deps.sh

configure: deps
	@python=$$(scripts/find-python.sh) && \
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DBOXWRIGHT_WERROR=ON \
	      -DPython_EXECUTABLE="$$python" $(CMAKE_FLAGS) >/dev/null

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	@python=$$(scripts/find-python.sh) && PYTHONPATH=$(BUILD_DIR)/python "$$python" scripts/demo.py

clean:
	rm -rf $(BUILD_DIR)
