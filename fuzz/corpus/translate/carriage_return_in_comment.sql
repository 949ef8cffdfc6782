select 'a' as x -- c, 'b
union select 42 --' as y