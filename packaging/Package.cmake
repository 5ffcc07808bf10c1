# The Debian packages, made by `cpack -G DEB` from the install rules (scripts/package):
#   kurvex          the programs, the manual and the desktop integration (component kurvex)
#   python3-kurvex  the Python module in Debian's folder for every Python 3 (src/python)
# The desktop's caches are refreshed by the file triggers of desktop-file-utils,
# shared-mime-info and hicolor-icon-theme, not by scripts of ours.
find_program(KURVEX_GZIP gzip REQUIRED)

# Debian's changelog and copyright for each package, compressed as the policy asks.
string(TIMESTAMP kurvex_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(KURVEX_MAINTAINER "Kurvex developers <kurvex@example.org>")
set(kurvex_debian_packages kurvex)
if(KURVEX_PYTHON)
    list(APPEND kurvex_debian_packages python3-kurvex)
endif()
foreach(package ${kurvex_debian_packages})
    set(doc ${CMAKE_CURRENT_BINARY_DIR}/debian/${package})
    file(CONFIGURE OUTPUT ${doc}/changelog @ONLY CONTENT
"${package} (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${KURVEX_MAINTAINER}  ${kurvex_changelog_date}
")
    add_custom_command(OUTPUT ${doc}/changelog.gz
                       COMMAND ${KURVEX_GZIP} -9nkf ${doc}/changelog
                       DEPENDS ${doc}/changelog)
    list(APPEND kurvex_debian_docs ${doc}/changelog.gz)
    if(package STREQUAL "kurvex")
        set(component kurvex)
    else()
        set(component ${package} EXCLUDE_FROM_ALL)
    endif()
    install(FILES ${doc}/changelog.gz ${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
add_custom_target(kurvex_debian_docs ALL DEPENDS ${kurvex_debian_docs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kurvex)
set(CPACK_PACKAGE_VENDOR "The Kurvex developers")
set(CPACK_PACKAGE_CONTACT ${KURVEX_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Only the packages' components: not the plain install's Python folder, nor the cache refresh.
set(CPACK_COMPONENTS_ALL ${kurvex_debian_packages})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_KURVEX_PACKAGE_NAME kurvex)
set(CPACK_DEBIAN_KURVEX_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_KURVEX_DESCRIPTION "waveform viewer for circuit simulation results
Kurvex shows the results of circuit simulations for power electronics and
motor control as curves on stacked graph screens that share one X axis: zoom,
pan, measure with cursors, derive curves by formulas, FFT spectra, export.
It reads text columns, its own .kfd files, SPICE raw files, MATLAB .mat files
and COMTRADE records.

kurvex-cli does the same work on result files from scripts.")

if(KURVEX_PYTHON)
    set(CPACK_DEBIAN_PYTHON3-KURVEX_PACKAGE_NAME python3-kurvex)
    set(CPACK_DEBIAN_PYTHON3-KURVEX_PACKAGE_SECTION python)
    # The extension is built for one Python 3 version (its ABI tag says which).
    set(python ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
    math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PYTHON3-KURVEX_PACKAGE_DEPENDS
        "python3 (>= ${python}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next}), python3-numpy")
    # kurvex.batch and its progress bars; kurvex itself does without them.
    set(CPACK_DEBIAN_PYTHON3-KURVEX_PACKAGE_RECOMMENDS
        "python3-distributed, python3-pandas, python3-tqdm")
    # Byte-compiled on install and cleaned on removal, as Debian's Python packages are.
    set(CPACK_DEBIAN_PYTHON3-KURVEX_PACKAGE_CONTROL_EXTRA
        ${CMAKE_CURRENT_SOURCE_DIR}/debian/python3-kurvex/postinst
        ${CMAKE_CURRENT_SOURCE_DIR}/debian/python3-kurvex/prerm)
    set(CPACK_DEBIAN_PYTHON3-KURVEX_DESCRIPTION "Kurvex's readers and measurements for Python 3
The kurvex module reads every result file the Kurvex waveform viewer reads into
NumPy arrays without a copy, and measures, transforms and renders them as
kurvex-cli does, with the same numbers. kurvex.batch measures a sweep's result
files on a Dask cluster.")
endif()

include(CPack)
