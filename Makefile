# Grantwise: `make run` and `make test` do all the set-up on Debian.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
PACKAGES   := cmake gcc g++ make pkg-config qt6-base-dev libgl-dev libacl1-dev zlib1g-dev acl libgtest-dev \
              qt6-qpa-plugins qt6-translations-l10n xdg-utils xvfb xauth fonts-liberation2 fonts-dancingscript fonts-freefont-ttf \
              hyperfine bfs fd-find time jq clang-format man-db groff-base bash-completion desktop-file-utils appstream dpkg-dev file lintian \
              python3-fusepy fuse3 nfs4-acl-tools attr chromium libreoffice-calc-nogui \
              python3-samba samba samba-vfs-modules smbclient \
              e2fsprogs xfsprogs btrfs-progs mount util-linux rsync tar coreutils
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-asan run test package bench fuzz format format-check clean

all: build

# Installs the Debian packages that are missing; skips what is there.
deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRANTWISE_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGRANTWISE_WERROR=ON -DGRANTWISE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/grantwise ]; then \
	  if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    echo "No display to open the window on; check from the command line: $(BUILD)/grantwise-check FOLDER"; \
	  else \
	    exec $(BUILD)/grantwise; \
	  fi; \
	else \
	  $(BUILD)/grantwise-acl "$$HOME"; \
	fi

# Every test twice: under AddressSanitizer and UndefinedBehaviorSanitizer,
# then in the normal build, whose ctest summary ends the output. Between the
# two, the .deb is checked by lintian (failing on errors), installed with
# apt-get, tried and removed.
test: format-check build build-asan package
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)
	lintian --fail-on error --display-info $(BUILD)/grantwise_*.deb
	tests/package-install.sh $(BUILD)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The code's layout is .clang-format's: `make format` applies it, and
# `make test` fails on code that does not follow it.
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format: deps
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run -Werror $(SOURCES)

# The Debian package, $(BUILD)/grantwise_<version>_<arch>.deb.
package: build
	rm -f $(BUILD)/grantwise_*.deb
	cd $(BUILD) && cpack -G DEB

bench: build
	bench/run-benchmarks.sh $(BUILD)

# Each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600), with clang's
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer; what a target
# finds is left in $(FUZZ_BUILD)/ as crash-* files.
fuzz: deps
	@for p in clang libclang-rt-14-dev; do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  $(SUDO) apt-get update -q && $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DGRANTWISE_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target printable_fuzz analysis_fuzz baseline_fuzz ntacl_fuzz
	cd $(FUZZ_BUILD) && for t in printable_fuzz analysis_fuzz baseline_fuzz ntacl_fuzz; do \
	  mkdir -p corpus-$$t && ./fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 corpus-$$t || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
