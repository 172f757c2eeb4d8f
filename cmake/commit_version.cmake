# The version a build carries, from the commit it is built from:
#   - a commit tagged vX.Y.Z is the release X.Y.Z;
#   - any other commit is X.Y.Z-dev.N+gHASH: N commits after the nearest tag
#     vX.Y.Z, HASH the first 12 hexadecimal digits of the commit; with no such
#     tag, X.Y.Z is the project() version and N counts from the root commit;
#   - sources outside a git checkout of their own (an unpacked archive) are
#     X.Y.Z-dev.0+unknown, X.Y.Z the project() version: they cannot name their commit;
#   - a shallow clone, which cannot count the commits since the tag, names the
#     commit but not N: X.Y.Z-dev.0+gHASH.shallow.
# The four-part file version of the Windows resources is X.Y.Z.N (N = 0 for a
# release), so that a later build always has a higher one.
#
# Included by CMakeLists.txt; scripts/release.sh runs it as a script, on the
# checkout it releases, to name the release:
#   cmake -DULV_CHECKOUT=DIR -P cmake/commit_version.cmake    prints the version

# ulv_commit_version(CHECKOUT FALLBACK VERSION_VAR YEAR_VAR): the version of
# the commit checked out in CHECKOUT, and the year (UTC) of that commit. Where
# CHECKOUT is not the top of a git checkout, FALLBACK-dev.0+unknown and the
# year of SOURCE_DATE_EPOCH (when set, else of now).
macro(ulv_git out)
  execute_process(COMMAND "${GIT_EXECUTABLE}" ${ARGN} WORKING_DIRECTORY "${checkout}"
                  OUTPUT_VARIABLE ${out} OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
endmacro()

# The highest release tag (vX.Y.Z) on HEAD itself, or "": where a commit
# carries two, it is the later release.
macro(ulv_highest_tag_at_head out)
  ulv_git(tags_at_head tag --points-at HEAD --list "v[0-9]*")
  set(${out} "")
  string(REPLACE "\n" ";" tags_at_head "${tags_at_head}")
  foreach(candidate IN LISTS tags_at_head)
    if(candidate MATCHES "^v([0-9]+\\.[0-9]+\\.[0-9]+)$")
      if(NOT ${out} OR CMAKE_MATCH_1 VERSION_GREATER highest)
        set(${out} "${candidate}")
        set(highest "${CMAKE_MATCH_1}")
      endif()
    endif()
  endforeach()
endmacro()

function(ulv_commit_version checkout fallback version_var year_var)
  find_program(GIT_EXECUTABLE git)
  set(top "")
  if(GIT_EXECUTABLE)
    ulv_git(top rev-parse --show-toplevel)
    if(failed)
      set(top "")
    endif()
  endif()
  # Sources unpacked inside another project's checkout are not that project's commit.
  get_filename_component(checkout_real "${checkout}" REALPATH)
  if(top)
    get_filename_component(top "${top}" REALPATH)
  endif()
  if(NOT top STREQUAL checkout_real)
    string(TIMESTAMP year "%Y" UTC)
    set(${version_var} "${fallback}-dev.0+unknown" PARENT_SCOPE)
    set(${year_var} "${year}" PARENT_SCOPE)
    return()
  endif()

  ulv_git(commit rev-parse --verify HEAD)
  if(failed)
    message(FATAL_ERROR "${checkout} is a git checkout without a commit: no version to carry")
  endif()
  # Tags such as v2.0.0-rc1 or v1.2.3.4 are not releases: three numbers after the v.
  ulv_highest_tag_at_head(tag)
  if(NOT tag)
    ulv_git(tag describe --tags --abbrev=0 --match "v[0-9]*.[0-9]*.[0-9]*" --exclude "v*[!0-9.]*"
            --exclude "v*.*.*.*" HEAD)
  endif()
  if(failed AND NOT tag)
    set(release "${fallback}")
    ulv_git(count rev-list --count HEAD)
  elseif(tag MATCHES "^v([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    # v01.02.03 is 1.2.3.
    math(EXPR major "${CMAKE_MATCH_1}")
    math(EXPR minor "${CMAKE_MATCH_2}")
    math(EXPR patch "${CMAKE_MATCH_3}")
    set(release "${major}.${minor}.${patch}")
    ulv_git(count rev-list --count "${tag}..HEAD")
  else()
    message(FATAL_ERROR "The nearest tag, ${tag}, is not vX.Y.Z: no version to carry")
  endif()
  ulv_git(shallow rev-parse --is-shallow-repository)
  string(SUBSTRING "${commit}" 0 12 hash)
  if(tag AND count EQUAL 0)
    set(version "${release}")
  elseif(shallow STREQUAL "true")
    set(version "${release}-dev.0+g${hash}.shallow")
  else()
    set(version "${release}-dev.${count}+g${hash}")
  endif()
  # A build folder follows the commits: it configures again once HEAD moves.
  ulv_git(head_log rev-parse --git-path logs/HEAD)
  get_filename_component(head_log "${head_log}" ABSOLUTE BASE_DIR "${checkout}")
  if(NOT CMAKE_SCRIPT_MODE_FILE AND EXISTS "${head_log}")
    set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${head_log}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC0 "${GIT_EXECUTABLE}" log -1 --no-show-signature
                          --format=%cd --date=format-local:%Y HEAD
                  WORKING_DIRECTORY "${checkout}" OUTPUT_VARIABLE year OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${version_var} "${version}" PARENT_SCOPE)
  set(${year_var} "${year}" PARENT_SCOPE)
endfunction()

# ulv_file_version(VERSION OUT_VAR): X.Y.Z.N of a version made by
# ulv_commit_version; stops the configuration when VERSION is not one, or
# when a part does not fit the resource's 16 bits.
function(ulv_file_version version out_var)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(-dev\\.([0-9]+)\\+(g[0-9a-f]+(\\.shallow)?|unknown))?$")
    message(FATAL_ERROR "\"${version}\" is not a version: X.Y.Z or X.Y.Z-dev.N+gHASH")
  endif()
  set(parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} 0)
  if(CMAKE_MATCH_4)
    list(POP_BACK parts)
    list(APPEND parts ${CMAKE_MATCH_5})
  endif()
  foreach(part IN LISTS parts)
    if(part GREATER 65535)
      message(FATAL_ERROR "${version}: ${part} does not fit a Windows file version (at most 65535)")
    endif()
  endforeach()
  list(JOIN parts "." file_version)
  set(${out_var} "${file_version}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../CMakeLists.txt" project_line REGEX "^project\\(ulverno_updater VERSION ")
  string(REGEX REPLACE "^project\\(ulverno_updater VERSION ([0-9.]+).*" "\\1" project_version "${project_line}")
  ulv_commit_version("${ULV_CHECKOUT}" "${project_version}" version year)
  ulv_file_version("${version}" file_version)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${version}")
endif()
