# Inside a deliverable, dependencies point one way down. A deliverable names
# its libraries with their layers (0 the lowest):
#
#   pkg_declare_layers(<name> <target> <layer> [<target> <layer>]...)
#
# and pkg_check_layers(), run once every folder has been read, stops the
# configuration when one of them
# - links a library of its own layer or above (LINK_LIBRARIES,
#   INTERFACE_LINK_LIBRARIES),
# - has an include folder that another of them publishes from its own layer
#   or above, or that is another library's src/,
# - publishes a src/ folder (its src/ is its own).

function(pkg_declare_layers name)
  set(pairs ${ARGN})
  list(LENGTH pairs n)
  math(EXPR odd "${n} % 2")
  if(n EQUAL 0 OR odd)
    message(FATAL_ERROR "pkg_declare_layers(${name}): give pairs of target and layer")
  endif()
  set_property(GLOBAL APPEND PROPERTY PKG_LAYER_TABLES ${name})
  set_property(GLOBAL PROPERTY PKG_LAYERS_${name} ${pairs})
endfunction()

# A property's entries without generator expressions: $<LINK_ONLY:x> and
# $<BUILD_INTERFACE:x> give x, other expressions are dropped.
function(_pkg_layer_entries target property out)
  get_target_property(values ${target} ${property})
  set(result "")
  if(values)
    foreach(v IN LISTS values)
      if(v MATCHES "^\\$<(LINK_ONLY|BUILD_INTERFACE):(.*)>$")
        list(APPEND result "${CMAKE_MATCH_2}")
      elseif(NOT v MATCHES "^\\$<")
        list(APPEND result "${v}")
      endif()
    endforeach()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(_pkg_is_src_folder dir out)
  if(dir MATCHES "/src(/|$)")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

function(pkg_check_layers)
  get_property(tables GLOBAL PROPERTY PKG_LAYER_TABLES)
  set(faults "")
  foreach(name IN LISTS tables)
    get_property(pairs GLOBAL PROPERTY PKG_LAYERS_${name})
    set(targets "")
    list(LENGTH pairs n)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last} 2)
      math(EXPR j "${i} + 1")
      list(GET pairs ${i} t)
      list(GET pairs ${j} layer)
      if(NOT TARGET ${t})
        list(APPEND faults "${name}: ${t} is in the layer table but no such target exists")
        continue()
      endif()
      list(APPEND targets ${t})
      set(layer_${t} ${layer})
      _pkg_layer_entries(${t} INTERFACE_INCLUDE_DIRECTORIES published_${t})
      get_target_property(home_${t} ${t} SOURCE_DIR)
    endforeach()

    foreach(t IN LISTS targets)
      # Links.
      _pkg_layer_entries(${t} LINK_LIBRARIES links)
      _pkg_layer_entries(${t} INTERFACE_LINK_LIBRARIES interface_links)
      list(APPEND links ${interface_links})
      list(REMOVE_DUPLICATES links)
      foreach(dep IN LISTS links)
        if(DEFINED layer_${dep} AND NOT layer_${dep} LESS layer_${t})
          list(APPEND faults
            "${name}: ${t} (layer ${layer_${t}}) links ${dep} (layer ${layer_${dep}}), which does not stand below it")
        endif()
      endforeach()
      # Include folders.
      _pkg_layer_entries(${t} INCLUDE_DIRECTORIES includes)
      list(APPEND includes ${published_${t}})
      list(REMOVE_DUPLICATES includes)
      foreach(dir IN LISTS includes)
        foreach(other IN LISTS targets)
          if(other STREQUAL t OR NOT dir IN_LIST published_${other})
            continue()
          endif()
          # Two libraries of one layer may publish one folder together (the
          # exports' records); a folder only a peer publishes is the peer's.
          if(layer_${other} GREATER layer_${t} OR
             (layer_${other} EQUAL layer_${t} AND NOT dir IN_LIST published_${t}))
            list(APPEND faults
              "${name}: ${t} (layer ${layer_${t}}) includes ${dir}, published by ${other} (layer ${layer_${other}})")
          endif()
        endforeach()
        _pkg_is_src_folder("${dir}" is_src)
        if(is_src)
          cmake_path(IS_PREFIX home_${t} "${dir}" NORMALIZE own)
          if(NOT own)
            list(APPEND faults "${name}: ${t} includes another library's private folder ${dir}")
          endif()
        endif()
      endforeach()
      foreach(dir IN LISTS published_${t})
        _pkg_is_src_folder("${dir}" is_src)
        if(is_src)
          list(APPEND faults "${name}: ${t} publishes its private folder ${dir}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  # No library of the project, in a table or not, publishes a src/ folder:
  # what two of them share lives in an include/ of its own.
  _pkg_all_targets("${CMAKE_SOURCE_DIR}" all)
  foreach(t IN LISTS all)
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "UTILITY")
      continue()
    endif()
    _pkg_layer_entries(${t} INTERFACE_INCLUDE_DIRECTORIES published)
    foreach(dir IN LISTS published)
      _pkg_is_src_folder("${dir}" is_src)
      if(is_src)
        list(APPEND faults "${t} publishes its private folder ${dir}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES faults)
  if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Layering broken:\n  ${text}")
  endif()
endfunction()

# Every target made in `dir` and the folders below it.
function(_pkg_all_targets dir out)
  get_property(result DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _pkg_all_targets("${sub}" more)
    list(APPEND result ${more})
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()
