// The straightforward way to order a parsed update list, the reference for the list's own
// SortFiles: a sort with CompareFiles, then the removal of each entry whose path equals its
// predecessor's, one at a time.
#pragma once

#include "Updatelst.h"

inline void PlainSortFiles(TUpdateFileList& list) {
    list.Files.CustomSort(TUpdateFileList::CompareFiles);
    for (int i = 0; i < list.Count() - 1;)
        if (list.GetName(i + 1) == list.GetName(i))
            list.RemoveAt(i + 1);
        else
            ++i;
}
