# Run by CPack on the staged install tree before it is packed: what a Debian package carries
# beyond a plain install, and what it must not carry.
set(Root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

# Each installation gets its own identifier from the maintainer scripts.
file(REMOVE "${Root}/lib/wavenard/uid.ini")

file(COPY "${CPACK_WAVENARD_PACKAGING_DIR}/lintian-overrides/" DESTINATION "${Root}/share/lintian/overrides")
file(COPY_FILE "${CPACK_WAVENARD_CHANGELOG}" "${Root}/share/doc/wavenard/changelog")

# Debian keeps man pages and changelogs compressed, without a timestamp in the gzip header.
file(GLOB_RECURSE ManPages "${Root}/share/man/*.[1-9]")
foreach(File IN LISTS ManPages ITEMS "${Root}/share/doc/wavenard/changelog")
  execute_process(COMMAND gzip -9nf "${File}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
