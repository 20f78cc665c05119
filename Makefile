# The entry points a newcomer types. Each installs what is missing, configures and builds.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
WIN_BUILD  ?= build-windows
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build demo test test-fast test-asan test-tsan format-check bench bench-window fuzz deb windows test-windows clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The main job: convert the bundled sample faxes and show the report. Builds only the program
# and the WinFax file builder, not the test suites.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target trelvane mkwinfax -j $(JOBS)
	@scripts/demo $(BUILD)

# Every test, in the normal build and then under AddressSanitizer and UBSan.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-asan

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTRELVANE_SANITIZE=ON -DTRELVANE_GUI=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# The tests whose code runs on several threads (the pool, recognition, the window's pass, the
# interrupt, the folder runs through the real program), built with ThreadSanitizer. The window's
# views are left out: Qt is not instrumented.
TSAN_TESTS ?= ConversionPool|ConvertFolder|FileRecognition|ConversionPass|TrustedRuns|ExitStatus|ConcurrentRuns|FolderReports|SameNames|NamesE2e|Shards|RunSafety|PageOutcomes|SearchableFax|OcrEngine
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELVANE_TSAN=ON -DTRELVANE_GUI=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
		ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# Every C and C++ source file against the committed .clang-format (scripts/check-format --fix
# applies it).
format-check: deps
	@scripts/check-format

bench: deps
	@scripts/bench

fuzz: deps
	@scripts/fuzz

# Peak memory of the window over a pass of 5,000 files, under Xvfb.
bench-window: deps
	@scripts/bench-window $(BUILD)

# The Debian package, from a Release build in build-deb, checked once made.
deb: deps
	@scripts/make-deb

# The 64-bit Windows programs, cross-built with MinGW-w64, a zip and an installer (NSIS), in
# build-windows (TRELVANE_LIBTIFF_SOURCE: a folder with libtiff's Debian source package).
windows:
	@JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" scripts/build-windows $(WIN_BUILD)

# The Windows build's tests under Wine: its unit tests, the end-to-end cases against the Linux
# program (built here too) and the installer.
test-windows: windows deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target trelvane mkwinfax -j $(JOBS)
	@JOBS=$(JOBS) TRELVANE_NATIVE_BUILD=$(abspath $(BUILD)) tests/windows/run $(WIN_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-deb $(WIN_BUILD)
