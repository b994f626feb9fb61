"""The image tool: options (cli), checks (plan), the config file text
(config), the files it inspects (binaries, jars, icon), branding (brand)
and the writing of the image (writer)."""


class Refusal(Exception):
    """Something the tool will not do; its text is the one line shown."""
