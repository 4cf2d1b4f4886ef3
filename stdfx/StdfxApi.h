#pragma once
// Members of the support library leave the module: the module is built with
// hidden visibility, and this marker exports a class or function.
#define STDFX_API __attribute__((visibility("default")))
