where nome like '%it''s :no%' -- :x
/* :y */ and a = :a