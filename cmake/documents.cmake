# The documents both packages carry beside the programs: README, the changes of each release,
# and docs/ (README's links into docs/ keep working in the installed copy).
function(lmv_install_documents destination component)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/CHANGELOG.md
          DESTINATION ${destination} COMPONENT ${component})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${destination}/docs
          COMPONENT ${component})
endfunction()
