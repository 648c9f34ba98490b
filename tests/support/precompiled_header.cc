// Compiled only so that the build makes the precompiled header that every test file
// includes first (cmake/NvxTesting.cmake); it defines nothing.
