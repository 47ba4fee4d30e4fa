# Fuzz targets of the image subsystem: the four picture decoders and the device pictures.
foreach(codec bmp:1 gif:2 png:3 jpeg:4)
  string(REPLACE ":" ";" pair ${codec})
  list(GET pair 0 name)
  list(GET pair 1 number)
  resmill_add_fuzzer(image_${name} fuzz_picture_codec.cpp)
  if(TARGET fuzz_image_${name})  # neither fuzzing nor tests: no target
    target_compile_definitions(fuzz_image_${name} PRIVATE RESMILL_FUZZ_CODEC=${number})
  endif()
endforeach()
resmill_add_fuzzer(device_picture fuzz_device_picture.cpp)
