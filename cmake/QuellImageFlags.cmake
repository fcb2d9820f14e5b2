# How a Quell image is compiled and linked: no C runtime start-up files, its own
# entry point, no exceptions or RTTI, stripped, relocatable, ASLR and DEP. Code
# for the 386, the least processor that Windows 95 runs on: the compiler's
# default (Pentium Pro) may use instructions that earlier processors lack.
function(quell_image_flags target entry)
    target_compile_definitions(${target} PRIVATE WINVER=0x0400 _WIN32_WINNT=0x0400)
    # C++ only: windres compiles the resources and takes none of these.
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-march=i386;-Os;-Wall;-Wextra;-Werror;-fno-exceptions;-fno-rtti;-fno-asynchronous-unwind-tables;-fno-unwind-tables;-fno-stack-protector;-fno-threadsafe-statics;-ffunction-sections;-fdata-sections>")
    target_link_options(${target} PRIVATE
        -nostartfiles -nostdlib -Wl,-e,${entry}
        -Wl,--kill-at -Wl,--enable-stdcall-fixup
        -Wl,--dynamicbase -Wl,--nxcompat -Wl,--gc-sections -s)
endfunction()
