// dcmtk's read+write, in its own file: its DcmTag class shares our element's name.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <string>

void DcmtkReadWrite(const std::string& input, const std::string& output) {
  DcmFileFormat file;
  file.loadFile(input.c_str());
  file.saveFile(output.c_str(), EXS_Unknown);
}
