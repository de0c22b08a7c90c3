# `make` installs what is missing, fetches ONNX Runtime, builds and stages dist/.
# `make test` does the same, then runs the whole test suite.
ORT_DIR   := .cache/onnxruntime-1.21.0
BUILD_DIR ?= build
JOBS      ?= $(shell nproc)
# length of `make model`'s training in epochs, the time limit that stops it on a slow machine (from the
# start of the run), and further options of training/train.py (none: single pieces, the shipped bundle's
# recipe). The recipe with windows and documents measured in training/README.md is
#   make model MODEL_RECIPE="--window-share 0.5 --documents-per-step 16 --mixed-per-class 200 --prose-documents 4000"
MODEL_EPOCHS ?= 32
MODEL_MAX_MINUTES ?= 70
MODEL_RECIPE ?=
# evaluation.json of another bundle on the same test split, shown beside the new one in the card
MODEL_COMPARE ?=
MODEL_COMPARE_NOTE ?= the bundle this one replaces
CMAKE_ARGS ?=

.PHONY: all deps configure build stage test bench format format-check clean test-asan test-tsan test-arm64 arm64 fuzz package package-arm64 demo bench-scan

all: stage

deps:
	@bash scripts/install_deps.sh
	@bash scripts/fetch_onnxruntime.sh $(ORT_DIR)

# BUILD_DIR is configured afresh when it has no cache or was configured with other CMAKE_ARGS (kept in
# cmake-args.txt there), so that the arguments given are the ones in force and none is left over.
export CMAKE_ARGS
configure: deps
	@if [ ! -f $(BUILD_DIR)/CMakeCache.txt ] || [ "$$(cat $(BUILD_DIR)/cmake-args.txt 2>/dev/null)" != "$$CMAKE_ARGS" ]; then \
	  rm -f $(BUILD_DIR)/CMakeCache.txt; \
	  cmake -S . -B $(BUILD_DIR) -DONNXRUNTIME_ROOT=$(CURDIR)/$(ORT_DIR) $(CMAKE_ARGS) && \
	  printf '%s' "$$CMAKE_ARGS" > $(BUILD_DIR)/cmake-args.txt; fi

build: configure
	@cmake --build $(BUILD_DIR) --parallel $(JOBS)

stage: build
	@cmake --install $(BUILD_DIR) --prefix dist > /dev/null
	@echo "staged dist/"

test: stage
	@cd $(BUILD_DIR) && ctest --output-on-failure --parallel $(JOBS)

# ---- Reliability builds, each in its own folder ----
SAN_ARGS = -DONNXRUNTIME_ROOT=$(CURDIR)/$(ORT_DIR) -DQUORVEL_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo

# AddressSanitizer + UndefinedBehaviorSanitizer over the whole suite.
test-asan: deps
	@cmake -S . -B build-asan $(SAN_ARGS) -DQUORVEL_SANITIZE=address,undefined > /dev/null
	@cmake --build build-asan --parallel $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure --parallel $(JOBS)

# ThreadSanitizer over the tests that run parses concurrently.
test-tsan: deps
	@cmake -S . -B build-tsan $(SAN_ARGS) -DQUORVEL_SANITIZE=thread > /dev/null
	@cmake --build build-tsan --parallel $(JOBS) --target recognizer_test morvik_test
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -R 'Concurrent'

# libFuzzer targets, each run for FUZZ_SECONDS (default 60).
fuzz: deps
	@bash scripts/install_deps.sh --fuzz
	@cmake -S . -B build-fuzz -DONNXRUNTIME_ROOT=$(CURDIR)/$(ORT_DIR) -DCMAKE_C_COMPILER=clang-14 \
	  -DCMAKE_CXX_COMPILER=clang++-14 -DQUORVEL_FUZZ=ON -DQUORVEL_SANITIZE=address,undefined \
	  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build build-fuzz --parallel $(JOBS)
	@bash scripts/run_fuzzers.sh build-fuzz

# 64-bit ARM: cross-built with Debian's aarch64 toolchain, tests run under qemu-aarch64. The OCR engine
# builds against Debian's arm64 Leptonica, unpacked into ARM_SYSROOT with Tesseract's headers.
ARM_SYSROOT := .cache/sysroot-arm64
ARM_ARGS = -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake -DONNXRUNTIME_ROOT=$(CURDIR)/$(ORT_DIR) \
           -DQUORVEL_ARM64_SYSROOT=$(CURDIR)/$(ARM_SYSROOT) -DQUORVEL_BUILD_BENCHMARKS=OFF
# Under qemu (about 300 times slower) the 50 MB text test and the long reliability runs are left out,
# and so are the tests that run the host program as a child process (binfmt is not set up, so only
# ctest's emulator runs arm64 code) and the OCR engine's tests that recognize text: Tesseract itself
# is not in ARM_SYSROOT, so the engine cannot start there.
ARM_TESTS ?= -E 'FiftyMegabyte|HostProgramTest|ReliabilityTest|^EngineTest\.|^EndToEnd\.'
arm64: deps
	@bash scripts/install_deps.sh --arm64
	@bash scripts/fetch_arm64_sysroot.sh $(ARM_SYSROOT)
	@if [ ! -f build-arm64/CMakeCache.txt ]; then cmake -S . -B build-arm64 $(ARM_ARGS) > /dev/null; fi
	@cmake --build build-arm64 --parallel $(JOBS)

test-arm64: arm64
	@cd build-arm64 && ctest --output-on-failure --parallel $(JOBS) $(ARM_TESTS)

# Debian packages of the deployment tree (amd64, and arm64 from the cross build).
package: build
	@cd $(BUILD_DIR) && cpack -G DEB
package-arm64: arm64
	@cd build-arm64 && cpack -G DEB

# The host program on the samples, as a new user would run it; only its output is shown (the build's
# is, when the build fails).
demo:
	@log=$$(mktemp) && { $(MAKE) --no-print-directory stage >"$$log" 2>&1 || { cat "$$log"; rm -f "$$log"; exit 1; }; } \
	  && rm -f "$$log"
	@dist/bin/quorvel scan --no-progress samples/

bench: stage
	@bash scripts/run_benchmarks.sh $(BUILD_DIR)

# Files and MB per second of `quorvel scan` with one and two jobs (needs GNU time, Debian's "time").
bench-scan: stage
	@bash scripts/bench_scan.sh $(SCAN_FOLDER)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD_DIR) dist build-asan build-tsan build-fuzz build-arm64

# `make corpus` builds the training corpus alone (resumable from its download cache in .cache/corpus).
# `make model` rebuilds the recognition model from nothing: corpus, training,
# fixtures for the C++ tests, and the evaluation through the built library, which writes the model card.
.PHONY: model corpus
corpus:
	@bash training/install_deps.sh
	@nice -n 10 /usr/bin/python3 training/corpus.py

model: build corpus
	@nice -n 10 /usr/bin/python3 training/train.py --epochs $(MODEL_EPOCHS) --max-minutes $(MODEL_MAX_MINUTES) \
	  $(MODEL_RECIPE)
	@$(MAKE) --no-print-directory model-check

# Training elsewhere (an accelerator machine with PyTorch and no corpus): `make model-pools` writes the
# pools, xz-compressed, to .cache/device/, which training/device_train.sh trains from there; with its
# checkpoint.pt and training.json put in .cache/model/, `make model-finish` calibrates, exports and checks.
.PHONY: model-pools model-finish model-check
model-pools: corpus
	@nice -n 10 /usr/bin/python3 training/train.py --export-pools --work .cache/pools $(MODEL_RECIPE)
	@mkdir -p .cache/device && cp .cache/pools/pools.json .cache/device/
	@for split in train val; do xz -T2 -6 -c .cache/pools/pools-$$split.npz >.cache/device/pools-$$split.npz.xz; done
	@ls -l .cache/device/

model-finish: build
	@/usr/bin/python3 training/train.py --recalibrate
	@$(MAKE) --no-print-directory model-check

model-check:
	@/usr/bin/python3 training/make_fixtures.py
	@cmake --build $(BUILD_DIR) --target prep_fixtures_test --parallel $(JOBS)
	@$(BUILD_DIR)/tests/fixtures_check/prep_fixtures_test --gtest_brief=1
	@nice -n 10 /usr/bin/python3 training/evaluate.py --build $(BUILD_DIR) \
	  $(if $(MODEL_COMPARE),--compare $(MODEL_COMPARE) --compare-note "$(MODEL_COMPARE_NOTE)")
