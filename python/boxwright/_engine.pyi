"""Native capabilities of the boxwright package beyond `boxwright._native`."""

__all__: list[str]
