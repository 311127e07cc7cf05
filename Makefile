# The two set-up commands of the README. Both install what is missing first.
.PHONY: run test build deps format bench package

BUILD ?= build

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIVANA_BUILD_TESTS=OFF
	cmake --build $(BUILD)

run: build
	bash scripts/run.sh $(BUILD)

test: deps
	bash scripts/test.sh

# The Debian package, pivana_VERSION_ARCH.deb in $(BUILD)/.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	for b in bench/*.sh; do [ "$$b" = bench/lib.sh ] || bash "$$b" $(BUILD); done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
