# The system's layers, bottom first, and the layers each one stands on.
# A layer's files may include only its own headers and those of the layers
# it stands on; its library links only theirs. The hosted substitute in
# platform/ stands on none of them.
set(CUBE_LAYERS platform runtime window drawing screen system scene card)
set(CUBE_LAYER_USES_platform "")
set(CUBE_LAYER_USES_runtime "")
set(CUBE_LAYER_USES_window runtime)
set(CUBE_LAYER_USES_drawing runtime)
set(CUBE_LAYER_USES_screen drawing runtime)
# Start-up and shutdown run every layer's steps.
set(CUBE_LAYER_USES_system screen drawing window runtime)
set(CUBE_LAYER_USES_scene system screen drawing window runtime)
# The test card, a second program beside the scene.
set(CUBE_LAYER_USES_card system screen drawing window runtime)
