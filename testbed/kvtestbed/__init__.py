"""The operator's server side of the speed test: configuration, result upload, pages and FTP."""
