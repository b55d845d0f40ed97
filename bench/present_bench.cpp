// filled in with its tests
