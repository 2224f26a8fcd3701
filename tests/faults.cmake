# Filled in by the area that owns it.
