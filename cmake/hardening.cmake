# Debian's hardening for the optimised builds: glibc's checked string and memory functions, stack
# canaries, and relocations made read-only once the program is loaded (full RELRO). The fuzz build
# has its sanitizers instead, which do not mix with the checked functions.
if(NOT QLX_FUZZ)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-fstack-protector-strong>)
  add_link_options(LINKER:-z,relro,-z,now)
endif()
