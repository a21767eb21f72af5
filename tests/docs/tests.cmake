# The API reference's gate: an undocumented symbol of each kind fails it.
if(TARGET velmora_docs)
  add_test(NAME docs.undocumented_symbols_fail
    COMMAND ${VELMORA_DOCS_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/undocumented.py
      ${PROJECT_SOURCE_DIR}/docs/reference/gir_for_docs.py ${VELMORA_GIR} $<TARGET_FILE:velmora_common>
      ${CMAKE_NM} ${VELMORA_GI_DOCGEN} ${PROJECT_BINARY_DIR}/docs/reference/velmora.toml
      ${VELMORA_PUBLIC_HEADERS} ${VELMORA_GENERATED_HEADERS})
  set_tests_properties(docs.undocumented_symbols_fail PROPERTIES LABELS docs TIMEOUT 120)
endif()
