# kiosk_version_note(<target>) puts the project version into a note section of
# the target's file, where GetFileVersionText finds it.
set(KIOSK_VERSION_NOTE_SOURCE ${PROJECT_BINARY_DIR}/generated/version_note.c)
configure_file(${PROJECT_SOURCE_DIR}/cmake/version_note.c.in ${KIOSK_VERSION_NOTE_SOURCE} @ONLY)
add_library(kiosk_version_note OBJECT ${KIOSK_VERSION_NOTE_SOURCE})

function(kiosk_version_note target)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:kiosk_version_note>)
endfunction()
