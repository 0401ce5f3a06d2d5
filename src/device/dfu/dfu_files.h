#pragma once

#include <cstdint>

#include "device/dfu/dfu_types.h"

// DFU files, images and elements over the project's own container format
// (docs/dfu-file-format.md). Every function returns STDFU_NOERROR on success.

DfuResult STDFUFILES_OpenExistingDFUFile(const char* path, DfuHandle* file, std::uint16_t* vendorId,
                                         std::uint16_t* productId, std::uint16_t* bcdDevice,
                                         std::uint8_t* imageCount);
DfuResult STDFUFILES_CreateNewDFUFile(const char* path, DfuHandle* file, std::uint16_t vendorId,
                                      std::uint16_t productId, std::uint16_t bcdDevice);
DfuResult STDFUFILES_CloseDFUFile(DfuHandle file);
DfuResult STDFUFILES_ReadImageFromDFUFile(DfuHandle file, int imageIndex, DfuHandle* image);
DfuResult STDFUFILES_AppendImageToDFUFile(DfuHandle file, DfuHandle image);

DfuResult STDFUFILES_CreateImage(DfuHandle* image, std::uint8_t alternateSetting);
DfuResult STDFUFILES_DuplicateImage(DfuHandle source, DfuHandle* copy);
DfuResult STDFUFILES_DestroyImage(DfuHandle* image);
DfuResult STDFUFILES_SetImageName(DfuHandle image, const char* name);
DfuResult STDFUFILES_SetImageElement(DfuHandle image, std::uint32_t index, int insert, DfuElement element);
DfuResult STDFUFILES_GetImageNbElement(DfuHandle image, std::uint32_t* count);
DfuResult STDFUFILES_GetImageElement(DfuHandle image, std::uint32_t index, DfuElement* element);
DfuResult STDFUFILES_GetImageAlternate(DfuHandle image, std::uint8_t* alternateSetting);

// Prepares an image for an operation on the given map entry (ERASE: one
// element per touched sector; UPGRADE: wTransferSize blocks; UPLOAD: the
// element ranges). Lives with the protocol engine, which owns the map.
DfuResult STDFUFILES_FilterImageForOperation(DfuHandle image, DfuMapping* mapEntry, std::int32_t operation,
                                             int flag);
