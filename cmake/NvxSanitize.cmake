# The sanitizer builds instrument every target of the tree.
if(NVX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NVX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT NVX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "NVX_SANITIZE must be empty, 'address' or 'thread'")
endif()
