// The body of the layer link checks (src/CMakeLists.txt): each links one layer whole with
// the layers below it, so this file needs nothing of its own.
