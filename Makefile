# make demo: install what is missing, build, run quell.exe status under Wine.
# make test: install what is missing, build, run the whole test suite under Wine.
BUILD := build

.PHONY: all setup build demo test bench clean

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

bench: build
	cd $(BUILD)/bin && ../../tools/wine-session.sh wine quell_benchmark.exe
