#pragma once
#include <QString> // Qt in the core
