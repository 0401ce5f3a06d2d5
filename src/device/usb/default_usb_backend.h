#pragma once

class UsbBackend;

// The backend that reaches real devices on this platform: the product's
// engine and discovery use it.
UsbBackend& DefaultUsbBackend();
