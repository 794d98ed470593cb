# Debian's hardening flags, as dpkg-buildflags gives them, for every build:
# stack protector, fortified libc calls, checked format strings, a read-only
# relocation table bound at start, and programs built position-independent.
option(VELMORA_HARDENING "Build with Debian's hardening flags" ON)
if(VELMORA_HARDENING)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  # Fortified calls need the optimiser; an unoptimised build would only warn.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
