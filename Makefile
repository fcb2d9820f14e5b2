# make demo: install what is missing, build both architectures, run quell.exe status under Wine.
# make test: install what is missing, build both architectures, run the whole test suite on each under Wine.
# make sweep-table: build, run the fault-injection sweep, write its table to docs/fault-sweep.md.
# x86 builds in build/, x64 in build-x64/.
BUILD := build
BUILD_X64 := build-x64

.PHONY: all setup build demo test bench sweep-table clean

all: build

setup:
	@bash tools/setup.sh

build: setup
	cmake --preset default
	cmake --build --preset default
	cmake --preset x64
	cmake --build --preset x64

demo: build
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell.exe status
	cd $(BUILD_X64)/bin && ../../tools/wine-session.sh wine quell.exe status

test: build
	tools/wine-session.sh ctest --preset default
	tools/wine-session.sh ctest --preset x64

clean:
	rm -rf $(BUILD) $(BUILD_X64)

sweep-table: build
	cd $(BUILD)/bin && QUELL_SWEEP_TABLE=$(CURDIR)/docs/fault-sweep.md ../../tools/wine-session.sh wine fault_sweep_test.exe --gtest_brief=1

bench: build
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell_benchmark.exe
	cd $(BUILD_X64)/bin && ../../tools/wine-session.sh wine quell_benchmark.exe
