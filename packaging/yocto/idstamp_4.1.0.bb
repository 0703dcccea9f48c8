SUMMARY = "Keeps the board's MAC address, IPv4 settings and a string in its 1-Wire EEPROM"
DESCRIPTION = "idstamp writes and reads a MAC address record, an IPv4 record \
for two network slots and a free-text string in the DS2431 or DS28EC20 on a \
GPIO pin of the SoC. It drives the pin itself through /dev/mem (kernel with \
CONFIG_DEVMEM) and runs as root."
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=9a792853b12a7a6eb2bb185628dc3bfa"

# The release tarball, made with git archive, lies in files/ next to this recipe.
SRC_URI = "file://idstamp-${PV}.tar.gz"
S = "${WORKDIR}/idstamp-${PV}"

inherit cmake

# The tests need GoogleTest and an emulator; the board gets the tool alone.
EXTRA_OECMAKE = "-DBUILD_TESTING=OFF"

COMPATIBLE_HOST = "powerpc.*-linux"
