# make demo: install what is missing, build, run quell.exe status under Wine.
# make test: install what is missing, build, run the whole test suite under Wine.
# make sweep-table: build, run the fault-injection sweep, write its table to docs/fault-sweep.md.
BUILD := build

.PHONY: all setup build demo test bench sweep-table clean

all: build

setup:
	@bash tools/setup.sh

build: setup
	cmake --preset default
	cmake --build --preset default

demo: build
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell.exe status

test: build
	tools/wine-session.sh ctest --preset default

clean:
	rm -rf $(BUILD)

sweep-table: build
	cd $(BUILD)/bin && QUELL_SWEEP_TABLE=$(CURDIR)/docs/fault-sweep.md ../../tools/wine-session.sh wine fault_sweep_test.exe --gtest_brief=1

bench: build
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell_benchmark.exe
