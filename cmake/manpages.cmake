# SPDX-License-Identifier: MIT
# The manual pages, made by help2man from each program's --help and --version
# (so they cannot fall behind the programs) and the hand-written sections in
# dist/man/PROGRAM.h2m. Installed uncompressed; the packaging compresses them.
find_program(HELP2MAN help2man REQUIRED)

function(gaspuff_manpage target)
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  set(sections ${PROJECT_SOURCE_DIR}/dist/man/${target}.h2m)
  # --no-discard-stderr: anything a program says on standard error while
  # answering shows in its page, where it is seen, instead of vanishing.
  # An "Exit status:" part of the help becomes the page's EXIT STATUS section.
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --include=${sections}
            --output=${page} $<TARGET_FILE:${target}>
    COMMAND sed -i "s/^\\.SS \"Exit status:\"$/.SH \"EXIT STATUS\"/" ${page}
    DEPENDS ${target} ${sections}
    COMMENT "Manual page ${target}.1"
    VERBATIM)
  add_custom_target(${target}-manpage ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

gaspuff_manpage(gaspuff-panel)
gaspuff_manpage(gaspuff-sim)
gaspuff_manpage(gaspuff-ctl)
if(GASPUFF_TANGO)
  gaspuff_manpage(gaspuff-tango)
endif()
