# cmake -DPROGRAM=<file> -P CheckVersionRecord.cmake
file(STRINGS "${PROGRAM}" fields REGEX "^(File|Product)Version=")
foreach(expected "FileVersion=1.0.0.2" "ProductVersion=1.0.0.2")
    list(FIND fields "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${PROGRAM} carries no \"${expected}\" (found: ${fields})")
    endif()
endforeach()
