# The YUY2 to BGR conversion's sources, shared by the program's build and the small cross build
# that tests the conversion on other processors (tests/present/cross).
#
# dv_add_yuy2_conversion(TARGET): adds the frame functions, the reference row and every faster
# row the target processor has to TARGET. The program targets each processor's baseline, so
# only the files of wider instruction sets are built with them, and the frame function runs one
# only after the CPU reports it can. No fused multiply-add anywhere: every product is rounded
# on its own (-ffp-contract=off is set for the whole build).
function(dv_add_yuy2_conversion target)
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  target_sources(${target} PRIVATE ${dir}/Yuy2ToBgr.cpp ${dir}/Yuy2ToBgrRowReference.cpp
                                   ${dir}/CpuFeatures.cpp)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    target_sources(${target} PRIVATE ${dir}/Yuy2ToBgrRowSse2.cpp ${dir}/Yuy2ToBgrRowAvx2.cpp
                                     ${dir}/Yuy2ToBgrRowAvx512.cpp)
    # -mno-fma: no fused multiply-add. clang counts FMA as part of AVX-512 and would switch
    # AVX-512 off with it, so there -ffp-contract=off is what keeps the products unfused; a test
    # reads the disassembly to be sure.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      set(avx512_options "-mavx512f;-mavx512bw;-mavx512vl;-mavx512vbmi;-mno-fma")
      # GCC 12 warns inside its own AVX-512 headers (their "undefined" vectors are
      # self-assigned).
      list(APPEND avx512_options -Wno-maybe-uninitialized -Wno-uninitialized)
    else()
      set(avx512_options "-mavx512f;-mavx512bw;-mavx512vl;-mavx512vbmi")
    endif()
    set_source_files_properties(${dir}/Yuy2ToBgrRowAvx2.cpp TARGET_DIRECTORY ${target}
                                PROPERTIES COMPILE_OPTIONS "-mavx2;-mno-fma")
    set_source_files_properties(${dir}/Yuy2ToBgrRowAvx512.cpp TARGET_DIRECTORY ${target}
                                PROPERTIES COMPILE_OPTIONS "${avx512_options}")
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
    # NEON is part of every 64-bit ARM processor: no extra options.
    target_sources(${target} PRIVATE ${dir}/Yuy2ToBgrRowNeon.cpp)
  endif()
endfunction()
