# bundle_docs: the pages the release bundles ship hold no relative link that
# leads out of the bundle (bundle_docs_test.sh, tools/bundle_docs.py).
add_test(NAME bundle_docs COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/bundle_docs_test.sh)

# debian_packages: the Debian packages built from a clone of HEAD, checked by
# lintian and used from a scratch root (deb_test.sh). Only on the native
# x86-64 build, where the packaging tools are there and the repository is a
# git checkout; it builds the packages itself, so it takes a minute or two.
find_program(ZQ_DPKG_BUILDPACKAGE dpkg-buildpackage)
find_program(ZQ_LINTIAN lintian)
if(ZQ_DPKG_BUILDPACKAGE AND ZQ_LINTIAN AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  add_test(NAME debian_packages COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/deb_test.sh)
  set_tests_properties(debian_packages PROPERTIES TIMEOUT 600)
endif()
