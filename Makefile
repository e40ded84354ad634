# The two everyday commands: `make run` starts Pyxet in the simulated lab, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)
# The two extra builds of `make test`: the core and pyxet-cli without the windows, and the unit
# tests under AddressSanitizer and UndefinedBehaviorSanitizer.
NOGUI_BUILD ?= $(BUILD)-nogui
ASAN_BUILD ?= $(BUILD)-asan
# `make package`: a plain Release build with Debian's compiler flags, warnings not errors.
PACKAGE_BUILD ?= $(BUILD)-package
# `make install PREFIX=...`
PREFIX ?= /usr/local

# Keeps make's "Entering/Leaving directory" lines out of the builds' output.
MAKEFLAGS += --no-print-directory
# The builds share the machine's cores; one at a time.
.NOTPARALLEL:

comma := ,

# cmake configure, quiet unless it fails; warnings are errors in every build made from here.
# $(1): build folder, $(2): further options.
define configure
	@cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPYXET_WERROR=ON $(2) >/dev/null
endef
# A build whose progress lines are kept in its folder and shown only if it fails.
# $(1): build folder, $(2): targets.
define quiet_build
	@cmake --build $(1) --target $(2) -j $(JOBS) >$(1)/build.log 2>&1 || { cat $(1)/build.log; exit 1; }
endef

.PHONY: all deps build run test test-nogui test-asan bench format clean install package

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	$(call configure,$(BUILD))
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)/bin

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) test-nogui test-asan

# The proof that the core needs no widgets: Qt Widgets is not even looked for.
test-nogui: deps
	@echo "Building pyxet_core and pyxet-cli without the windows (PYXET_GUI=OFF) in $(NOGUI_BUILD)"
	$(call configure,$(NOGUI_BUILD),-DPYXET_GUI=OFF -DPYXET_TESTS=OFF)
	$(call quiet_build,$(NOGUI_BUILD),pyxet_core pyxet-cli)

# The unit tests once more, built with AddressSanitizer and UndefinedBehaviorSanitizer; any
# finding ends the run with a report.
test-asan: deps
	@echo "Building the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer in $(ASAN_BUILD)"
	$(call configure,$(ASAN_BUILD),-DPYXET_GUI=OFF -DPYXET_SANITIZE=address$(comma)undefined)
	$(call quiet_build,$(ASAN_BUILD),unit_tests)
	@ASAN_OPTIONS=strict_string_checks=1:detect_stack_use_after_return=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) -L unit --output-on-failure -j $(JOBS)

# Installs the programs, their data, the menu entry, icons and manual pages under $(PREFIX).
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package pyxet_<version>_<arch>.deb in $(PACKAGE_BUILD); its dependencies are
# worked out by dpkg-shlibdeps. The flags are dpkg-buildflags' (optimisation included), so
# Release adds only -DNDEBUG.
package: deps
	@echo "Building the Debian package in $(PACKAGE_BUILD)"
	@cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DPYXET_WERROR=OFF -DPYXET_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_C_FLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG >/dev/null
	$(call quiet_build,$(PACKAGE_BUILD),pyxet pyxet-cli translations images helpfiles manpages)
	@rm -f $(PACKAGE_BUILD)/pyxet_*.deb
	@cd $(PACKAGE_BUILD) && cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@ls $(PACKAGE_BUILD)/pyxet_*.deb

bench: build
	@bash scripts/bench.sh $(BUILD)/bin

# Formats the C++ files in place with the root .clang-format.
format:
	@find src tests bench sim -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format -i

clean:
	rm -rf $(BUILD) $(NOGUI_BUILD) $(ASAN_BUILD) $(PACKAGE_BUILD)
