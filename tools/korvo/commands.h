// The korvo host's commands beyond listing the plug-ins.
#pragma once

#include <string>

// korvo convert PICTURE [-o OUT.bmp]: offers the picture to each import
// filter in `pluginDirectory` as a host does and writes the bitmap the first
// one that takes it decodes as a .bmp file. Returns the exit status.
int ConvertPicture(const std::string& pluginDirectory, const std::string& picture,
                   const std::string& output);

// korvo sample-picture OUT.QKZ: writes a QKZ test picture of colour bars over
// a colour ramp, framed, whose orientation and palette order are plain to see.
int WriteSamplePicture(const std::string& output);
