# Independent peers for tests and benchmarks only: spandsp (modems, tone
# generators and detectors, T.30 fax) and libtiff (the fax peer's pages).
# Product libraries never link these; a test or benchmark takes them with
#   target_link_libraries(<target> PRIVATE vx::spandsp)   # libtiff comes with it
find_package(PkgConfig REQUIRED)
pkg_check_modules(VX_SPANDSP REQUIRED IMPORTED_TARGET spandsp)
pkg_check_modules(VX_TIFF REQUIRED IMPORTED_TARGET libtiff-4)

add_library(vx_spandsp INTERFACE)
target_link_libraries(vx_spandsp INTERFACE PkgConfig::VX_SPANDSP PkgConfig::VX_TIFF)
# spandsp's headers use the math library's names and declare the tiff types.
target_link_libraries(vx_spandsp INTERFACE m)
add_library(vx::spandsp ALIAS vx_spandsp)
