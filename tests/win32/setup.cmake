target_link_libraries(${target} PRIVATE orvo_win32_templates)
