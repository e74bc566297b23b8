# AddressSanitizer and UndefinedBehaviorSanitizer, as an INTERFACE target property set.
function(plumbrae_enable_sanitizers target enabled)
  if(enabled)
    set(flags -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(${target} INTERFACE ${flags})
    target_link_options(${target} INTERFACE ${flags})
  endif()
endfunction()
