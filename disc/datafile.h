// The data file of a disc image: the file that holds its sectors, which its
// digest and its file system are read from.
#pragma once

// The data file of the image at path, changed in place: that of a descriptor
// (.cue and .toc to .bin, .ccd to .img, .mds to .mdf, any case, new extension
// lower case); any other name stays.
void discDataFile(char* path);
