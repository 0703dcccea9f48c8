################################################################################
#
# idstamp
#
################################################################################

IDSTAMP_VERSION = 4.1.0
# The release tarball, made with git archive, lies next to this file.
IDSTAMP_SOURCE = idstamp-$(IDSTAMP_VERSION).tar.gz
IDSTAMP_SITE = $(IDSTAMP_PKGDIR)
IDSTAMP_SITE_METHOD = file
IDSTAMP_LICENSE = MIT
IDSTAMP_LICENSE_FILES = LICENSE

# The cmake-package infrastructure passes -DBUILD_TESTING=OFF, so neither
# GoogleTest nor the simulated board is built; the tool installs to
# /usr/sbin/idstamp with its manual page.
$(eval $(cmake-package))
