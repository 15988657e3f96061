# Language modules lie beside the program, where the player looks for them
# at start-up: every resources/lang/strevanaPlayer_*.lang is copied next to
# strevana-player whenever the program is built.
file(GLOB strevana_language_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/strevanaPlayer_*.lang)
if(TARGET strevana-player AND strevana_language_sources)
  set(strevana_language_outputs)
  foreach(module IN LISTS strevana_language_sources)
    get_filename_component(module_name ${module} NAME)
    set(module_copy ${CMAKE_CURRENT_BINARY_DIR}/${module_name})
    add_custom_command(OUTPUT ${module_copy}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${module} ${module_copy}
      DEPENDS ${module}
      COMMENT "Language module ${module_name}")
    list(APPEND strevana_language_outputs ${module_copy})
  endforeach()
  add_custom_target(strevana_language_modules ALL DEPENDS ${strevana_language_outputs})
  add_dependencies(strevana-player strevana_language_modules)
endif()
