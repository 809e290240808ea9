# Writes the Debian changelog (cmake -P): IN, the template; OUT, the file written (only when its
# text changes, so the compressed copy is remade only then); PROJECT_VERSION and
# PICTAVO_PACKAGE_MAINTAINER for the entry; PICTAVO_SOURCE_DIR, the source folder. The entry's
# date is SOURCE_DATE_EPOCH's when the build sets it, else the date of the commit built
# (SourceDate.cmake), and the time of the build only outside a git checkout.
include(${CMAKE_CURRENT_LIST_DIR}/SourceDate.cmake)
# string(TIMESTAMP) takes SOURCE_DATE_EPOCH from the environment; the names of days and months
# are English whatever the locale, as the changelog format wants them.
string(TIMESTAMP CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${IN} ${OUT} @ONLY)
