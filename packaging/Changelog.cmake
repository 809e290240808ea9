# Writes the Debian changelog (cmake -P): IN, the template; OUT, the file written (only when its
# text changes, so the compressed copy is remade only then); PROJECT_VERSION and
# PICTAVO_PACKAGE_MAINTAINER for the entry. The entry's date is SOURCE_DATE_EPOCH's when the
# build sets it, else FALLBACK_EPOCH's (the commit's) when given, else the time of the build.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND FALLBACK_EPOCH MATCHES "^[0-9]+$")
  set(ENV{SOURCE_DATE_EPOCH} ${FALLBACK_EPOCH})
endif()
# string(TIMESTAMP) takes SOURCE_DATE_EPOCH from the environment; the names of days and months
# are English whatever the locale, as the changelog format wants them.
string(TIMESTAMP CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${IN} ${OUT} @ONLY)
