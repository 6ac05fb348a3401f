# SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Quick start:  make run   |   make test
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
REL_BUILD  ?= build-release
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
export CCACHE_BASEDIR := $(CURDIR)

.PHONY: all bootstrap configure build run test test-sanitize clean release install deb translations

all: build

bootstrap:
	@scripts/bootstrap.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_ARGS)

configure: bootstrap $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The wizard on the demo phonebook, in a run folder of its own (the
# installation file is written to the current directory).
run: build
	@mkdir -p $(BUILD)/run
	cd $(BUILD)/run && ../bin/kivo95

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Reads every translatable text of the sources and forms into
# translations/kivo95_*.ts; translate what it marks unfinished.
translations: configure
	cmake --build $(BUILD) --target update_translations

test-sanitize: bootstrap
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKIVO_SANITIZE=ON \
	  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# What is installed or packaged comes from a Release build of its own,
# without tests or sanitizers, at -O2 as Debian builds its packages (g++ 12
# at -O3 reports false -Wrestrict warnings inside std::string).
$(REL_BUILD)/build.ninja:
	cmake -S . -B $(REL_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DKIVO_SANITIZE=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache $(CMAKE_ARGS)

release: bootstrap $(REL_BUILD)/build.ninja
	cmake --build $(REL_BUILD) -j $(JOBS) --target kivo_installables

# make install [PREFIX=/usr/local] [DESTDIR=/staging/dir]
install: release
	DESTDIR="$(DESTDIR)" cmake --install $(REL_BUILD) --prefix "$(PREFIX)" --strip

# The Debian package: $(REL_BUILD)/kivo95_VERSION_ARCH.deb
deb: release
	cd $(REL_BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(REL_BUILD)
