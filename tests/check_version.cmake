# The version is CMake's (project()); the npm package, the page's package and
# both manual pages must state the same one.
foreach(file js/package.json web/package.json docs/geoconv.1 docs/geoconv-demo.1)
  file(READ ${SOURCE}/${file} text)
  if(file MATCHES "json$")
    string(REGEX MATCH "\"version\": \"([^\"]*)\"" found "${text}")
  else()
    string(REGEX MATCH "\"geoconv ([^\"]*)\"" found "${text}")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    message(FATAL_ERROR "${file} states version '${CMAKE_MATCH_1}', CMake's is ${VERSION}")
  endif()
endforeach()
