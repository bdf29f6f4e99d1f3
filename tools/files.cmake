# Companion tools.
