#include "zip/CZipProgressCallback.h"

CZipProgressCallback::~CZipProgressCallback() = default;

void CZipProgressCallback::Begin(const std::string&, const std::string&) {}

void CZipProgressCallback::SetTotalBytes(uint32_t) {}

void CZipProgressCallback::Finish() {}
