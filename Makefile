# A thin wrapper over the CMake presets.
.PHONY: run test native windows deps icon

run: native
	./build/native/glimmerquay

test: deps native windows
	ctest --preset native -j 2

native:
	cmake --preset native
	cmake --build --preset native -j 2

windows:
	cmake --preset windows-x86
	cmake --build --preset windows-x86 -j 2

deps:
	bash tests/install-deps.sh

# Redraws res/glimmerquay.ico and res/glimmerquay.png from res/glimmerquay.svg.
icon:
	bash res/make-icon.sh
