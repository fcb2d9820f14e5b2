# make demo: install what is missing, build the three architectures, run quell.exe status under
#            Wine (arm64: Debian's arm64 Wine under qemu, tools/setup/setup-wine-arm64.sh).
# make test: install what is missing, build the three architectures with their tests and clients,
#            run the whole test suite on each under Wine (arm64: what runs without a C++ runtime,
#            under the emulated ARM64 Wine), then make the release bundles (make dist), test
#            a signed release with throwaway keys (tests/release/release_test.py) and the
#            PowerShell module in PowerShell 7 (tests/powershell/module_test.py).
# make build: build the three architectures with their tests; installs nothing.
# make dist: dist/quell-<version>-win32.zip, -win64.zip and -arm64.zip (the installed trees),
#            dist/nuget/Quell.<version>.nupkg and Quell.Net.<version>.nupkg, the PowerShell module as
#            dist/powershell/Quell.<version>.nupkg and .zip, and dist/SHA256SUMS; builds only what the bundles
#            ship, in trees of its own without the tests (build-dist/, build-dist-x64/,
#            build-dist-arm64/), and refuses when nothing gives the sources' time (the images
#            would not be reproducible). Signs the six images given QUELL_SIGN_PKCS12 and
#            QUELL_SIGN_PASSWORD_FILE (QUELL_SIGN_TIMESTAMP_URL: a timestamp authority) and writes
#            their detached signatures to dist/signatures/; or attaches the published ones of
#            QUELL_SIGNATURES=<folder>. With QUELL_RELEASE_URL=<folder URL>: dist/winget/ and
#            dist/scoop/quell.json. tools/release/release.py says more.
# make verify-release RELEASE=<folder>: checks a downloaded release against this checkout
#            (checksums; a rebuild with its signatures attached gives the same files; each
#            signature is valid, chained to QUELL_VERIFY_CAFILE where that is given).
# make sweep-table: build, run the fault-injection sweep, write its table to docs/fault-sweep.md.
# x86 builds in build/, x64 in build-x64/, arm64 in build-arm64/.
BUILD := build
BUILD_X64 := build-x64
BUILD_ARM64 := build-arm64
WINE_ARM64 := .cache/wine-arm64
DIST := dist
DIST_BUILD := build-dist
VERIFY_BUILD := build-verify
# The release tests need Debian's python3-yaml and python3-jsonschema.
DEBIAN_PYTHON := /usr/bin/python3
# What tools/release/release.py reads from the environment, given on make's command line or not.
export QUELL_SIGN_PKCS12 QUELL_SIGN_PASSWORD_FILE QUELL_SIGN_TIMESTAMP_URL QUELL_SIGNATURES \
       QUELL_RELEASE_URL QUELL_VERIFY_CAFILE QUELL_OSSLSIGNCODE

.PHONY: all setup build demo test dist verify-release bench sweep-table clean

all: build

setup:
	@bash tools/setup.sh

build:
	cmake --preset default
	cmake --build --preset default
	cmake --preset x64
	cmake --build --preset x64
	cmake --preset arm64
	cmake --build --preset arm64

demo: setup
	@$(MAKE) --no-print-directory build
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell.exe status
	cd $(BUILD_X64)/bin && ../../tools/wine-session.sh wine quell.exe status
	python3 tests/arm64/run_emulated.py --wine $(WINE_ARM64) --tree $(BUILD_ARM64) --run $(BUILD_ARM64)/bin/quell.exe status

test: setup
	@$(MAKE) --no-print-directory build
	cmake --build --preset default --target quell_clients
	cmake --build --preset x64 --target quell_clients
	tools/wine-session.sh ctest --preset default
	tools/wine-session.sh ctest --preset x64
	ctest --preset arm64
	@$(MAKE) --no-print-directory dist
	$(DEBIAN_PYTHON) tests/release/release_test.py $(DIST_BUILD)/release-test tests/nuget/nuget_client_test.py
	python3 tests/powershell/module_test.py $(DIST) $(DIST_BUILD)/powershell-test \
	        $(BUILD)/bin/standin/Quell.dll $(BUILD_X64)/bin/standin/Quell.dll

# release_trees(prefix): configures and builds the shipped images of the three
# architectures in prefix, prefix-x64 and prefix-arm64, without the tests.
release_trees = \
	cmake -S . -B $(1) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DQUELL_BUILD_TESTS=OFF && \
	cmake --build $(1) --parallel 2 --target quell_release_images && \
	cmake -S . -B $(1)-x64 -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DQUELL_BUILD_TESTS=OFF && \
	cmake --build $(1)-x64 --parallel 2 --target quell_release_images && \
	cmake -S . -B $(1)-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-w64-mingw32.cmake -DQUELL_BUILD_TESTS=OFF && \
	cmake --build $(1)-arm64 --parallel 2 --target quell_release_images

dist:
	rm -rf $(DIST)
	$(call release_trees,$(DIST_BUILD))
	python3 tools/release/release.py dist $(DIST) $(DIST_BUILD) $(DIST_BUILD)-x64 $(DIST_BUILD)-arm64
	cd $(DIST) && sha256sum -c --quiet SHA256SUMS

verify-release:
	@test -n "$(RELEASE)" || { echo "make verify-release RELEASE=<folder of the downloaded release>"; exit 2; }
	rm -rf $(VERIFY_BUILD) $(VERIFY_BUILD)-x64 $(VERIFY_BUILD)-arm64
	$(call release_trees,$(VERIFY_BUILD))
	python3 tools/release/release.py verify $(RELEASE) $(VERIFY_BUILD)/release $(VERIFY_BUILD) $(VERIFY_BUILD)-x64 $(VERIFY_BUILD)-arm64

clean:
	rm -rf $(BUILD) $(BUILD_X64) $(BUILD_ARM64) $(DIST_BUILD) $(DIST_BUILD)-x64 $(DIST_BUILD)-arm64 $(DIST) \
	       $(VERIFY_BUILD) $(VERIFY_BUILD)-x64 $(VERIFY_BUILD)-arm64

sweep-table: build
	cd $(BUILD)/bin && QUELL_SWEEP_TABLE=$(CURDIR)/docs/fault-sweep.md ../../tools/wine-session.sh wine fault_sweep_test.exe --gtest_brief=1

bench: build
	cmake --build --preset default --target quell_benchmark
	cmake --build --preset x64 --target quell_benchmark
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell_benchmark.exe
	cd $(BUILD_X64)/bin && ../../tools/wine-session.sh wine quell_benchmark.exe
	cmake --build --preset arm64 --target quell_size_report
