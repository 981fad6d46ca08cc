# Warnings for our own targets only; third-party headers come in as SYSTEM.
# QLMRN_WERROR turns them into errors (CI builds with it on).
option(QLMRN_WERROR "Treat compiler warnings as errors" OFF)

function(qlmrn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
  if(QLMRN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# QLMRN_SANITIZE builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer; any undefined behaviour stops the program.
option(QLMRN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QLMRN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
