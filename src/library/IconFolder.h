// Saving icons into a folder under names taken from the icons themselves (pictavo-cli extract;
// the window's "save every icon to a folder"). The names are untrusted: they are made safe as
// file names, cut to fit, made unique across the whole run, and never lead the save through a
// link or over anything but a regular file.
#pragma once

#include "icons/AdvancedIcon.h"
#include "icons/IconRaster.h"
#include "library/UniqueNames.h"

#include <map>
#include <string>

namespace pictavo {

class TIconFolder {
public:
    explicit TIconFolder(std::string Folder);

    // Saves the icon as FOLDER/NAME.ico and returns the path written. NAME is Name with "/",
    // NUL and control characters made "_", cut to fit a file name, then made unique: a name
    // this run wrote, or an entry of the folder that is not a regular file (a link, a folder,
    // a device), counts as taken. The folder and its missing parents are made on the first
    // save. Raises EFCreateError when the folder or the file cannot be made, EWriteError when
    // it cannot be written, and EPictavoError for an icon without images.
    std::string Save(const TAdvancedIcon& Icon, const std::string& Name);
    // Saves the pixels as FOLDER/NAME.png under the same rules (names made unique among the
    // .png files of this run) and returns the path written.
    std::string SavePng(const TIconRaster& Raster, const std::string& Name);
    // Whether the folder exists (made or found on a save).
    bool Made() const { return FMade; }

private:
    void MakeFolder();
    // FOLDER/NAME + Extension for a name not yet written with that extension, made and held.
    std::string PlaceName(const std::string& Name, const std::string& Extension);

    std::string FPrefix;  // the folder with a trailing "/"
    bool FMade = false;
    std::map<std::string, TUniqueNames> FNames;  // by extension
};

// A name usable as one path component: "/", NUL and control characters become "_"; "", "."
// and ".." get a "_" in front.
std::string SafeFileName(std::string Name);

}  // namespace pictavo
