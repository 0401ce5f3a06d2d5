#pragma once

// The document of the single-document shell. It holds no data: the update
// cycle works on the device and working files, not on a document. There is
// no new, open or save command, since a second new document would start a
// second worker.
class CDFUpdate_tesselDoc {
public:
    bool OnNewDocument() { return true; }
};
