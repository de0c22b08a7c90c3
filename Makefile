# `make` installs what is missing, fetches ONNX Runtime, builds and stages dist/.
# `make test` does the same, then runs the whole test suite.
ORT_DIR   := .cache/onnxruntime-1.21.0
BUILD_DIR ?= build
JOBS      ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build stage test bench format format-check clean

all: stage

deps:
	@bash scripts/install_deps.sh
	@bash scripts/fetch_onnxruntime.sh $(ORT_DIR)

configure: deps
	@if [ ! -f $(BUILD_DIR)/CMakeCache.txt ]; then \
	  cmake -S . -B $(BUILD_DIR) -DONNXRUNTIME_ROOT=$(CURDIR)/$(ORT_DIR) $(CMAKE_ARGS); fi

build: configure
	@cmake --build $(BUILD_DIR) --parallel $(JOBS)

stage: build
	@cmake --install $(BUILD_DIR) --prefix dist > /dev/null
	@echo "staged dist/"

test: stage
	@cd $(BUILD_DIR) && ctest --output-on-failure --parallel $(JOBS)

bench: stage
	@bash scripts/run_benchmarks.sh $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD_DIR) dist
