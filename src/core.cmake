# The core knows no widgets: what everything uses (base), the catalogue, the renderer, output,
# and the start-up both programs share. The fuzz targets link it alone.
set(core ${CMAKE_CURRENT_LIST_DIR})

# Every target of ours is compiled with these: warnings, and Qt without its bare keywords.
add_library(sorvexwarnings INTERFACE)
target_compile_options(sorvexwarnings INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(sorvexwarnings INTERFACE
  QT_NO_CONTEXTLESS_CONNECT QT_NO_FOREACH QT_NO_KEYWORDS)

add_library(sorvexcore STATIC
  ${core}/base/programvalues.h
  ${core}/base/regularfile.cpp ${core}/base/regularfile.h
  ${core}/base/text.cpp ${core}/base/text.h
  ${core}/base/compoundsurnames.cpp ${core}/base/compoundsurnames.h
  ${core}/base/csvtable.cpp ${core}/base/csvtable.h
  ${core}/base/temporaries.cpp ${core}/base/temporaries.h
  ${core}/catalogue/catalogue.cpp ${core}/catalogue/catalogue.h
  ${core}/catalogue/fonttable.cpp ${core}/catalogue/fonttable.h
  ${core}/catalogue/fontnames.cpp ${core}/catalogue/fontnames.h
  ${core}/catalogue/stylerules.cpp ${core}/catalogue/stylerules.h
  ${core}/render/surface.h ${core}/render/placementrules.h ${core}/render/geometry.h ${core}/render/measuredsurface.h
  ${core}/render/signatureinput.h ${core}/render/layout.cpp ${core}/render/layout.h
  ${core}/render/stylelayouts.cpp ${core}/render/stylelayouts.h
  ${core}/render/faces.h ${core}/render/appfaces.cpp ${core}/render/appfaces.h ${core}/render/names.cpp ${core}/render/names.h
  ${core}/render/background.cpp ${core}/render/background.h
  ${core}/render/facestate.cpp ${core}/render/facestate.h
  ${core}/render/shapedtext.cpp ${core}/render/shapedtext.h
  ${core}/render/imagesurface.cpp ${core}/render/imagesurface.h
  ${core}/render/vectorsurface.cpp ${core}/render/vectorsurface.h
  ${core}/render/wear.cpp ${core}/render/wear.h
  ${core}/render/handwriting.cpp ${core}/render/handwriting.h
  ${core}/render/scannedink.cpp ${core}/render/scannedink.h
  ${core}/render/fitting.cpp ${core}/render/fitting.h
  ${core}/output/platform.h ${core}/output/printerror.h
  ${core}/output/saveimage.cpp ${core}/output/saveimage.h
  ${core}/output/filewrite.cpp ${core}/output/filewrite.h
  ${core}/output/pngwriter.cpp ${core}/output/pngwriter.h
  ${core}/output/placement.cpp ${core}/output/placement.h
  ${core}/output/pdfpicture.cpp ${core}/output/pdfpicture.h
  ${core}/output/handwritingfiles.cpp ${core}/output/handwritingfiles.h
  ${core}/output/signerlines.cpp ${core}/output/signerlines.h
  ${core}/app/startup.cpp ${core}/app/startup.h
)
# Signing documents: reading them, what their authors allow, the update, certificates.
set(sorvex_pdf_sources
  ${core}/pdf/documentinput.cpp ${core}/pdf/memorybudget.cpp ${core}/pdf/opendocument.cpp ${core}/pdf/formfields.cpp
  ${core}/pdf/signingpolicy.cpp ${core}/pdf/incrementalupdate.cpp ${core}/pdf/pageplacement.cpp
  ${core}/pdf/annotations.cpp ${core}/pdf/flatten.cpp ${core}/pdf/signatures.cpp
  ${core}/pdf/revisions.cpp ${core}/pdf/changes.cpp ${core}/pdf/cmscheck.cpp ${core}/pdf/shownfields.cpp ${core}/pdf/forgeryrisks.cpp ${core}/pdf/signingjob.cpp ${core}/pdf/signingbatch.cpp ${core}/pdf/tokenpins.cpp
  ${core}/pdf/stamp.cpp ${core}/pdf/documentfacts.cpp ${core}/pdf/pagestack.cpp ${core}/pdf/longterm.cpp ${core}/pdf/tokens.cpp)
target_sources(sorvexcore PRIVATE ${sorvex_pdf_sources}
  ${core}/pdf/documentinput.h ${core}/pdf/memorybudget.h ${core}/pdf/opendocument.h ${core}/pdf/formfields.h
  ${core}/pdf/signingpolicy.h ${core}/pdf/incrementalupdate.h ${core}/pdf/pageplacement.h
  ${core}/pdf/annotations.h ${core}/pdf/flatten.h ${core}/pdf/signatures.h
  ${core}/pdf/revisions.h ${core}/pdf/changes.h ${core}/pdf/cmscheck.h ${core}/pdf/shownfields.h ${core}/pdf/forgeryrisks.h ${core}/pdf/signingjob.h ${core}/pdf/signingbatch.h ${core}/pdf/tokenpins.h ${core}/pdf/stamp.h ${core}/pdf/documentfacts.h
  ${core}/pdf/pagelist.cpp ${core}/pdf/pagelist.h ${core}/pdf/signerror.h ${core}/pdf/secret.h
  ${core}/pdf/signingidentity.cpp ${core}/pdf/signingidentity.h ${core}/pdf/openssltypes.h
  ${core}/pdf/timestamp.cpp ${core}/pdf/timestamp.h ${core}/pdf/pagestack.h ${core}/pdf/longterm.h ${core}/pdf/revision.h ${core}/pdf/tokens.h ${core}/pdf/signingkeys.h)
target_include_directories(sorvexcore PUBLIC ${core})
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(WOFF2 REQUIRED IMPORTED_TARGET libwoff2dec)
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET GLOBAL libqpdf)
# PKCS#11 tokens, through the module a token's maker ships or p11-kit's proxy.
pkg_check_modules(LIBP11 REQUIRED IMPORTED_TARGET libp11)
# PKCS#11's own declarations, as p11-kit ships them: asked of a token directly where libp11
# does not say (whether a key asks for its PIN at every use).
pkg_check_modules(P11KIT REQUIRED IMPORTED_TARGET p11-kit-1)
find_package(OpenSSL REQUIRED)
target_link_libraries(sorvexcore PUBLIC Qt6::Core Qt6::Gui PRIVATE sorvexwarnings ZLIB::ZLIB PkgConfig::WOFF2 PkgConfig::DEFLATE
                      PkgConfig::QPDF PkgConfig::LIBP11 PkgConfig::P11KIT OpenSSL::Crypto)
# qpdf 11 headers: its own smart pointers are plain std::shared_ptr. They leave a type
# incomplete where clang's C++20 wants it whole: what includes them is C++17 there.
function(sorvex_uses_qpdf target)
  target_link_libraries(${target} PRIVATE PkgConfig::QPDF)
  target_compile_definitions(${target} PRIVATE POINTERHOLDER_TRANSITION=4)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set_target_properties(${target} PROPERTIES CXX_STANDARD 17)
  endif()
endfunction()
target_compile_definitions(sorvexcore PRIVATE POINTERHOLDER_TRANSITION=4)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set_source_files_properties(${sorvex_pdf_sources} PROPERTIES COMPILE_OPTIONS "-std=c++17")
endif()
set_target_properties(sorvexcore PROPERTIES AUTOMOC OFF)
# Qt's headers are most of what every file compiles: read once, precompiled.
target_precompile_headers(sorvexcore PRIVATE <QByteArray> <QDir> <QFileInfo> <QHash> <QImage>
                          <QPainter> <QSet> <QString> <QStringList> <QTextStream>)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # Compiled in another standard there: the precompiled headers do not fit them.
  set_source_files_properties(${sorvex_pdf_sources} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endif()
