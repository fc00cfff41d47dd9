# Every target installs what it needs first, so each works on a fresh Debian 12 machine.
BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
JOBS         ?= $(shell nproc)
CMAKE_FLAGS  ?=
PREFIX       ?= /usr/local

.PHONY: all deps build test sanitize run demo picture install package deb deb-check format format-check \
        bench clean

all: build

deps:
	@tools/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTCPIPSET_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DTCPIPSET_WERROR=ON \
	      -DTCPIPSET_SANITIZE=ON -DTCPIPSET_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(JOBS)

# The utility on the machine's own network: its discovery goes to 255.255.255.255.
run: build
	$(BUILD_DIR)/app/tcpipset

# The window on the current display, inside a throwaway segment with three simulated
# print servers; needs root for the network namespaces.
demo: build
	@if [ -z "$$DISPLAY" ]; then echo "make demo: no DISPLAY to show the window on" >&2; exit 1; fi
	tools/testnet --devices 3 --display --sim-bin $(BUILD_DIR)/tools/tcpipsim/tcpipsim \
	    -- $(BUILD_DIR)/app/tcpipset

# The README's pictures of the window with three devices listed, in Japanese and in
# English, made anew in a throwaway segment under its own Xvfb; needs root for the network
# namespaces.
picture: build
	tools/testnet --devices 3 --xvfb --sim-bin $(BUILD_DIR)/tools/tcpipsim/tcpipsim \
	    -- tools/window-picture $(BUILD_DIR)/app/tcpipset $(CURDIR)/docs/tcpipset-window.png \
	    ja_JP.UTF-8
	tools/testnet --devices 3 --xvfb --sim-bin $(BUILD_DIR)/tools/tcpipsim/tcpipsim \
	    -- tools/window-picture $(BUILD_DIR)/app/tcpipset \
	    $(CURDIR)/docs/tcpipset-window-en.png en_US.UTF-8

# The programs and their manual pages under PREFIX; DESTDIR, taken from the environment or
# the command line, stages them elsewhere, as a package build does.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The Debian package of debian/, tcpipset_VERSION_ARCH.deb in BUILD_DIR, built on this
# machine by dpkg-buildpackage -b: the quick way, with the build dependencies at hand.
package: deps
	tools/deb-build local $(BUILD_DIR)

# The source and binary packages built by sbuild in a clean Debian 12 root, as a user who
# is not root, into BUILD_DIR/deb; the root is made once with mmdebstrap and kept in
# build/deb-root. Installs what it needs itself.
deb:
	tools/deb-build clean $(BUILD_DIR)/deb

# The clean-root build twice, from two clones, byte for byte; lintian, piuparts and
# autopkgtest (which installs the package on this machine). Root; takes many minutes.
deb-check:
	tests/deb/deb-check.sh $(BUILD_DIR)/deb-check

bench: build
	cmake --build $(BUILD_DIR) --target bench-run

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
