# HTML snippets: the snippet parser against QTextDocument::setHtml. Included
# by bench/CMakeLists.txt.
kalvo_add_bench(kalvo-bench-html SOURCES html/html_bench.cpp SMOKE_FILTER "Snippets|/10240$")
