# The two set-up commands of the README, and the targets CI runs.
#   make test   install what is missing, build, run every test
#   make demo   install what is missing, build, open the window against the demo services
#   make asan   the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer
#   make windows-test   the cross build for Windows (what it holds so far), tested under Wine

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
TSAN_DIR  ?= build-tsan
FUZZ_DIR  ?= build-fuzz
WINDOWS_DIR ?= build-windows
FUZZ_SECONDS ?= 60
JOBS      ?= $(shell nproc)
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

SANITIZER_ENV := \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0

.PHONY: all deps deps-windows build test demo asan tsan fuzz screenshot windows-test clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD_DIR)

asan: deps
	@cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
		-DSTRIVO_SANITIZE=address,undefined -DSTRIVO_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# The thread checker on the tests where threads meet: both workers against the
# stand-ins, cancelling, the run table, the web sessions and the window.
TSAN_TESTS := Concurrency|FaultMatrix|RunTable|WebSession|JobsTest|CliTest|WindowTests

tsan: deps
	@cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DSTRIVO_SANITIZE=thread -DSTRIVO_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(TSAN_DIR) -j $(JOBS)
	@cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan.supp" \
		ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# Every libFuzzer target for FUZZ_SECONDS on its checked-in corpus (clang 14).
fuzz: deps
	@FUZZ_BUILD_DIR=$(FUZZ_DIR) JOBS=$(JOBS) scripts/fuzz.sh $(FUZZ_SECONDS)

screenshot: build
	@mkdir -p docs
	@STRIVO_SCREENSHOTS=$(CURDIR)/docs scripts/with-display.sh \
		$(BUILD_DIR)/tests/ui/strivo_window_tests >/dev/null
	@echo "docs/window-signed-in.png and docs/window-sync-failed.png written"

deps-windows:
	@scripts/install-deps.sh windows

windows-test: deps-windows
	@cmake -S . -B $(WINDOWS_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake >/dev/null
	@cmake --build $(WINDOWS_DIR) -j $(JOBS)
	@cd $(WINDOWS_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(WINDOWS_DIR)
