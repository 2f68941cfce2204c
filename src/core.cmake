# The core knows no widgets: catalogue, renderer and output logic. The fuzz build includes this
# file too, so that the fuzz targets link this same library, built with their instrumentation.
set(core ${CMAKE_CURRENT_LIST_DIR})
add_library(sorvexcore STATIC
  ${core}/app/programvalues.cpp ${core}/app/programvalues.h
  ${core}/app/regularfile.cpp ${core}/app/regularfile.h
  ${core}/app/csvtable.cpp ${core}/app/csvtable.h
  ${core}/catalogue/catalogue.cpp ${core}/catalogue/catalogue.h
  ${core}/catalogue/fonttable.cpp ${core}/catalogue/fonttable.h
  ${core}/catalogue/stylerules.cpp ${core}/catalogue/stylerules.h
  ${core}/render/surface.h ${core}/render/geometry.h ${core}/render/measuredsurface.h
  ${core}/render/background.cpp ${core}/render/background.h
  ${core}/render/facestate.cpp ${core}/render/facestate.h
  ${core}/render/shapedtext.cpp ${core}/render/shapedtext.h
  ${core}/render/imagesurface.cpp ${core}/render/imagesurface.h
  ${core}/render/vectorsurface.cpp ${core}/render/vectorsurface.h
  ${core}/render/renderer.cpp ${core}/render/renderer.h
  ${core}/output/platform.h ${core}/output/printerror.h
  ${core}/output/saveimage.cpp ${core}/output/saveimage.h
  ${core}/output/pngwriter.cpp ${core}/output/pngwriter.h
  ${core}/output/placement.cpp ${core}/output/placement.h
  ${core}/output/pdfpicture.cpp ${core}/output/pdfpicture.h
)
target_include_directories(sorvexcore PUBLIC ${core})
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(WOFF2 REQUIRED IMPORTED_TARGET libwoff2dec)
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
target_link_libraries(sorvexcore PUBLIC Qt6::Core Qt6::Gui PRIVATE ZLIB::ZLIB PkgConfig::WOFF2 PkgConfig::DEFLATE)
set_target_properties(sorvexcore PROPERTIES AUTOMOC OFF)
