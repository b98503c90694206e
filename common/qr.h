// QR code texts: validation and extraction of the 17-digit card number
// written before the first "/".
#pragma once

#include <string>

bool isValidQRString(const std::string& text);
// The 17-digit card number of the QR text, or an empty text.
std::string extractQRCardNum(const std::string& text);
