#include "app/CocoaInitializer.h"

CocoaInitializer::CocoaInitializer() = default;

CocoaInitializer::~CocoaInitializer() = default;
