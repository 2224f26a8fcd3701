// Placeholder: its area fills it in.
