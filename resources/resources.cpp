// Anchor of the artwork library; the pictures themselves are compiled in by qt_add_resources.
namespace arvex { int resourcesLinked = 1; }
